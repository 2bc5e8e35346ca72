ps_2_0
dcl t0.xy
dcl t1
dcl_2d s0
dcl_2d s1
def c0, 0.5, 0.25, 2, -1
defb b0, true
texld r0, t0, s0
texldp r1, t1, s1
dp2add r2, r0, c0, c0.w
if b0
  add r2, r2, c0.z
endif
texkill t1
mov r4.x, r0.x
mov r4.y, r1.y
mov r4.z, r2.x
mov_pp r4.w, r1.x
mov oC0, r4
mov oDepth, c0.y
