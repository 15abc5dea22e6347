#pragma once
// Icon 128, the program's icon: a page of pictures with an arrow taking
// them in, at 32 x 32 and 16 x 16 pixels in the 16 standard colours. Its id
// is IDR_MAINFRAME.
#include "platform/icon.h"

namespace resources {

const platform::IconResource& Icon128();

}  // namespace resources
