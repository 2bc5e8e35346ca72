ps_2_x
dcl t0
def c0, 0, 1, 2, 0.5
defi i0, 4, 0, 0, 0
mov r0, c0.x
rep i0
  add r0, r0, c0.w
endrep
setp_lt p0, t0, c0.w
mov r1, c0.y
(p0) mov r1, c0.z
dsx r2, t0
call l0
mov oC0, r3
ret
label l0
add r3, r0, r1
add r3, r3, r2
ret
