// func/func_regfile.pat: example pattern, 16 vectors
opcode_mode = single;
import tset TS_FUNC;
vector ($tset, CLK_SYS, CLK_REF, SCAN_CLK, RST_N, SE, SI[3:0], SO[3:0], D[7:0])
{
start_label func_regfile_st:
> TS_FUNC        1 0 0 1 0 0000 XXXX 00000000 ;
> TS_FUNC        1 0 0 1 1 0001 XXXX 00000001 ;
> TS_FUNC        1 0 0 1 0 0010 XXXX 00000010 ;
> TS_FUNC        1 0 0 1 1 0011 XXXX 00000011 ;
> TS_FUNC        1 0 0 1 0 0100 XXXX 00000100 ;
> TS_FUNC        1 0 0 1 1 0101 XXXX 00000101 ;
> TS_FUNC        1 0 0 1 0 0110 XXXX 00000110 ;
> TS_FUNC        1 0 0 1 1 0111 XXXX 00000111 ;
> TS_FUNC        1 0 0 1 0 1000 XXXX 00001000 ;
> TS_FUNC        1 0 0 1 1 1001 XXXX 00001001 ;
> TS_FUNC        1 0 0 1 0 1010 XXXX 00001010 ;
> TS_FUNC        1 0 0 1 1 1011 XXXX 00001011 ;
> TS_FUNC        1 0 0 1 0 1100 XXXX 00001100 ;
> TS_FUNC        1 0 0 1 1 1101 XXXX 00001101 ;
> TS_FUNC        1 0 0 1 0 1110 XXXX 00001110 ;
> TS_FUNC        1 0 0 1 1 1111 XXXX 00001111 ;
halt > TS_FUNC   0 0 0 1 0 0000 XXXX 00000000 ;
}
