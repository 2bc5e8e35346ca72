vs_2_0
mov r0.zx, c0
+mov r0, c[a0.x + a0.y]
(p0) mov_sat r0, 1 - r1_bias
if_gt b0.x
setp p0, r0
