// Random numbers for the effects: the runtime generator scaled to [0, 1].
#pragma once

// The next value of platform::crt::rand times 1/32767.
float Rnd();
