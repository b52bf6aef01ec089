// The permissions a new file of the user's gets.
#pragma once

#include <sys/types.h>

namespace dorvan {

// The process's file mode mask, read without changing it (umask() can only be asked by
// setting it, which other threads would see); 022 when it cannot be read.
mode_t CurrentUmask();

}  // namespace dorvan
