#include "demo/random.h"

#include "platform/random.h"

float Rnd() { return static_cast<float>(platform::crt::rand()) * (1.0f / 32767.0f); }
