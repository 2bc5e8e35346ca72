ps_1_1
def c0, 0.5, 0.25, 1, 0.75
def c1, 0.2, 0.4, 0.6, 0.8
tex t0
texcoord t1
mul_x2 r1.rgb, t0, c0
+mov r1.a, c0.b
add r0.rgb, t1_bias, 1 - r1
+mov r0.a, c1.a
cnd r1, r0.a, r0, c1
mul_d2 r0, r1, c0
