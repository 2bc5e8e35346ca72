ps_2_sw
dcl t0
def c100, 0.5, 0.5, 0.5, 0.5
mul r20, t0, c100
mov oC0, r20
