vs_2_sw
dcl_position v0
defb b1, false
defb b2, true
def c200, 1, 2, 3, 4
mov r31, c200
callnz l1, b1
callnz l2, b2
mov oPos, r31
ret
label l1
mov r31, v0
ret
label l2
add r31, r31, r31
ret
