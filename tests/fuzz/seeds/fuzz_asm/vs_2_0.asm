vs.2.0
dcl_position v0
defi i0, 3, 0, 1, 0
defb b0, true
def c0, 0, 1, 2, 0.5
def c1, 1, 1, 1, 1
def c10, 5, 6, 7, 8
def c11, 9, 10, 11, 12
def c12, 13, 14, 15, 16
def c20, -1.5500992e-006, -2.1701389e-005, 0.0026041667, 0.00026041668
def c21, -0.020833334, -0.125, 1, 0.5
mov r0, c0.x
mov r4, c0.x
loop aL, i0
  add r0, r0, c1
  add r4, r4, c10[aL]
endloop
rep i0
  add r0, r0, c0.w
endrep
mova a0.x, c0.y
mov r1, c10[a0.x]
if b0
  call l0
else
  mov r1, c1
endif
mov r2, c0.w
sincos r3.xy, r2.x, c20, c21
mov oPos, r0
mov oT0, r1
mov oT1, r4
mov oT2, r3
ret
label l0
mul r1, r1, c0.z
ret
