ps_3_0
dcl_texcoord0_centroid v0
dcl_2d s0
dcl vFace
def c0, 0, 1, 2, -0.5
defi i0, 3, 0, 1, 0
mov r0, c0.x
loop aL, i0
  add r0, r0, c0.y
  break_ge r0.x, c0.z
endloop
texldl r1, v0, s0
add r2, v0_abs, c0.w
cmp r3, vFace, c0.y, c0.z
mov oC0, r0
mov oC1, r1
mov r2.w, r3.x
mov oC2, r2
