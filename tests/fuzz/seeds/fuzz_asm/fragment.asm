@vs_2_0
m4x4 r_pos, v_position0, c_world
if b_enabled
add r_pos, r_pos, c_world[1]
endif
mov oPos, r_pos
mov oT0, v_texcoord0
