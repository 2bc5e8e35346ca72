vs_3_sw
dcl_position v0
dcl_position o0
def c200, 0.5, 0.5, 0.5, 0.5
mul r31, v0, c200
mov o0, r31
