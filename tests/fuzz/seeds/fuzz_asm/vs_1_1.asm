vs_1_1
dcl_position v0
dcl_color v1
def c0, 2, 0.5, 4, 1
def c2, 10, 20, 30, 40
def c3, 1, 2, 3, 4
def c4, 0, 1, 0, 0
mov a0.x, c0.x
mov r0, c[a0.x + 1]     ; c3
rcp r1, c0              ; no swizzle: reads w in vs_1_1
add oPos, v0, r0
mul oD0, v1, r1.x
sub r3, c2, v0
mov oT0, r3
m3x3 oT1, v0, c2        ; writes x, y and z only
