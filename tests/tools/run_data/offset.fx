float4 Offset;

float4 main(float4 p : POSITION) : POSITION {
    return p + Offset;
}
