#define F(x) #x
#define G(a,b) a##b
F(a + b) G(x, 1)
#if defined(FUZZ) && FUZZ == 1 || -1 > 0
yes
#elif 1/1
#else
#endif
#line 10 "x.fx"
__LINE__ __FILE__
