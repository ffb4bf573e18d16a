"""python -m tallowby.quillon <folder> [mode] [report]"""
from tallowby.quillon.quillon import main

if __name__ == "__main__":
    main()
