// Simple enough for every pixel profile, ps_1_1 included.
float4 Factor;

float4 main(float4 color : COLOR0) : COLOR0 {
    return color * Factor;
}
