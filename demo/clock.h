// The demo's clock: seconds from the high-resolution counter, in single
// precision. The four functions are the same reading under the names the
// driver and the effects use.
#pragma once

float getTheTime();
float getTime();
float getTime2();
float getTime3();
