ps_1_3
def c0, 0.5, 0.25, 0.125, 1
def c1, 0.75, 0.5, 0.25, 0
def c2, 0, 0, 0, 0.25
texcoord t0
lrp r0.rgb, c0, t0, c1
mov r0.a, c2
mad r1.rgb, r0_bx2, c0, c1
mov_sat r0.rgb, r1_x2
