vs.2.0
dcl_position v0 ; comment
mov oPos, v0
#error stop
