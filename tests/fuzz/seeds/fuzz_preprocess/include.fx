#include "b.h"
#include <a.h>
#pragma warning(disable : 3206; once : 3205)
#pragma pack_matrix(column_major)
float4 main() : COLOR { return 0x1F + 017 + 1.5f + .5h + '\x41'; }
/* comment */ "str\n"
