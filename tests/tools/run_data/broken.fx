float4 main(float4 p : POSITION) : POSITION {
    return p + undefined_name;
}
