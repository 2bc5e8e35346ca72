ps_2_0
dcl t0
texkill t0
mov oC0, t0
