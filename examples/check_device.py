"""Reads the bundled example device: its job list, and each job's flow table when the flow parser is built."""
import pathlib
import sys

from tallowby.hestor import Hestor

device = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent / "device")
jobs = Hestor()
jobs.read_job_list(str(device / "Job List.txt"))
for name, record in jobs.get_test_job_list_info().items():
    print(f"job {name}: flow table {record['Flow Table']}, test instances {record['TestInstanceList']}")
    try:
        from tallowby.garvel import Garvel
    except ImportError:
        continue
    flow = Garvel()
    flow.read_flow_table(str(device / (record["Flow Table"] + ".txt")), "UltraFLEX")
    for row in flow.get_test_suite_info():
        print(f"  {row['Opcode']:<10} {row['Parameter']:<12} test {row['TestNumber']:<4} bins {row['HardBin']}/{row['SortBin']}")
