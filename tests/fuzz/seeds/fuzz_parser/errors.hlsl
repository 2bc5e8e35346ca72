float4 x = ;
struct { float a; } ;
float f() { return switch; }
