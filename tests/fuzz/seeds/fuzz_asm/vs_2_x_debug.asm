vs_2_x
dcl_position v0
def c0, 0, 1, 2, 3
defi i0, 10, 0, 1, 0
setp_gt p0, v0, c0.y
mov r0, c0.x
(p0) mov r0, c0.w
mov r1, c0.x
rep i0
  add r1, r1, c0.y
  break_ge r1.x, c0.w
endrep
mov r2, c0.x
if_lt v0.x, c0.z
  mov r2, c0.z
endif
mov r3, c0.x
rep i0
  add r3, r3, c0.z
  setp_ge p0.x, r3.x, c0.w
  breakp p0.x
endrep
mov oPos, r0
mov oT0, r1
mov oT1, r2
mov oT2, r3
