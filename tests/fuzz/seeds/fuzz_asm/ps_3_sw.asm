ps_3_sw
dcl_texcoord0 v0
def c200, 2, 2, 2, 2
mul r31, v0, c200
mov oC0, r31
