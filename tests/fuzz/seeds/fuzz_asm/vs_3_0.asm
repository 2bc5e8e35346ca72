vs_3_0
dcl_position v0
dcl_texcoord0 v1
dcl_position o0
dcl_texcoord0 o1
dcl_texcoord1 o2
dcl_texcoord2 o3
dcl_2d s0
def c0, -2, 0.5, 1, 0
defi i0, 2, 0, 1, 0
mov o0, v0
add_sat o1, v1, c0.y
mov r0, c0.w
loop aL, i0
  add r0, r0, -v1_abs
endloop
mov o2, r0
texldl r1, c0.yyww, s0
sincos r2.xy, c0.y
mov r1.zw, r2.xyxy
mov o3, r1
