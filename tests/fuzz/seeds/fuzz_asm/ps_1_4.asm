ps_1_4
def c0, 0.5, 0.25, 0.125, 1
texcrd r0.rgb, t0
phase
texld r0, r0
mul r1, r0, c0
mad_d2 r0.rgb, r0_x2, c0, r1
