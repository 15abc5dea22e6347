#pragma once
// The clipboard watch's memory, shared by every watch of the process.
#include <string>

// The last clipboard text taken into the address field: the same text is not
// taken twice, so an address the user has since edited stays as it is.
extern std::string g_strLastClip;
