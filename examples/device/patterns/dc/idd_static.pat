// dc/idd_static.pat: example pattern, 8 vectors
opcode_mode = single;
import tset TS_SLOW, TS_FUNC;
vector ($tset, CLK_SYS, CLK_REF, SCAN_CLK, RST_N, SE, SI[3:0], SO[3:0], D[7:0])
{
start_label idd_static_st:
> TS_SLOW        1 0 0 1 0 0000 XXXX 00000000 ;
> TS_SLOW        1 0 0 1 1 0001 XXXX 00000001 ;
> TS_SLOW        1 0 0 1 0 0010 XXXX 00000010 ;
> TS_SLOW        1 0 0 1 1 0011 XXXX 00000011 ;
> TS_FUNC        1 0 0 1 0 0100 XXXX 00000100 ;
> TS_FUNC        1 0 0 1 1 0101 XXXX 00000101 ;
> TS_FUNC        1 0 0 1 0 0110 XXXX 00000110 ;
> TS_FUNC        1 0 0 1 1 0111 XXXX 00000111 ;
halt > TS_FUNC   0 0 0 1 0 0000 XXXX 00000000 ;
}
