// Uniforms reached by member and element paths, an int and a bool.
int Count;
bool Flag;
float4 Weights[3];
struct Light {
    float4 color;
    float3 direction;
};
Light Sun;

float4 main(float4 p : POSITION) : POSITION {
    float4 r = p * Count;
    if (Flag) r += Weights[1];
    return r + Sun.color + Weights[2];
}
