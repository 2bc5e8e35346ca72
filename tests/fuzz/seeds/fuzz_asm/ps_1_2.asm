ps_1_2
def c0, 0.5, 0.25, -0.5, 1
def c1, 0.1, 0.2, 0.3, 0.4
texcoord t0
dp3 r1, t0, c0
cmp r0, r1, c0, c1
add r0, r0, c1.a
