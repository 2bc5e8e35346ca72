// Count is both the number of rounds of the loop (an integer register) and a
// value (a float register): a run must set both.
int Count;

float4 main(float4 c : COLOR0) : COLOR {
    float4 s = 0;
    for (int i = 0; i < Count; i++) s += c;
    return s + Count;
}
