#include "resources/icon_128.h"

#include "resources/dialog_templates.h"

namespace resources {

namespace {

// XPM: width height colours chars-per-pixel, the palette ("None" is the
// transparent mask), then one string per pixel row.
// clang-format off
const char* const kIcon128Large[] = {
    "32 32 10 1",
    "  c None",
    ". c #000000",
    "a c #808080",
    "c c #00FFFF",
    "g c #008000",
    "m c #800000",
    "r c #FF0000",
    "s c #C0C0C0",
    "w c #FFFFFF",
    "y c #FFFF00",
    "                                ",
    " ...............                ",
    " .wwwwwwwwwwwww..               ",
    " .wwwwwwwwwwwww.s.              ",
    " .wwwwwwwwwwwww.ss.             ",
    " .wwwwwwwwwwwww.sss.            ",
    " .wwwwwwwwwwwww......           ",
    " .wwwwwwwwwwwwwwwwww.           ",
    " .wwaaaaaaawaaaaaaaw.   mmmmm   ",
    " .wwaccccyawaccccraw.   mrrrm   ",
    " .wwacccccawacccccaw.   mrrrm   ",
    " .wwacgggcawacgggcaw.   mrrrm   ",
    " .wwagggggawagggggaw.   mrrrm   ",
    " .wwaaaaaaawaaaaaaaw.   mrrrm   ",
    " .wwwwwwwwwwwwwwwwww.   mrrrm   ",
    " .wwwwwwwwwwwwwwwwww.   mrrrm   ",
    " .wwaaaaaaawaaaaaaaw.   mrrrm   ",
    " .wwacccccawaccccyaw.   mrrrm   ",
    " .wwacccccawacccccaw.   mrrrm   ",
    " .wwacgggcawacgggcaw.mmmmmmmmmmm",
    " .wwagggggawagggggaw. mrrrrrrrm ",
    " .wwaaaaaaawaaaaaaaw.  mrrrrrm  ",
    " .wwwwwwwwwwwwwwwwww.   mrrrm   ",
    " .wwwwwwwwwwwwwwwwww.    mrm    ",
    " .wwwwwwwwwwwwwwwwww.     m     ",
    " .wwawawawawawawawww.           ",
    " .wwwwwwwwwwwwwwwwww.           ",
    " .wwawawawawawawawww.           ",
    " .wwwwwwwwwwwwwwwwww.           ",
    " .wwwwwwwwwwwwwwwwww.           ",
    " ....................           ",
    "                                "
};

const char* const kIcon128Small[] = {
    "16 16 10 1",
    "  c None",
    ". c #000000",
    "a c #808080",
    "c c #00FFFF",
    "g c #008000",
    "m c #800000",
    "r c #FF0000",
    "s c #C0C0C0",
    "w c #FFFFFF",
    "y c #FFFF00",
    ".......         ",
    ".wwwww..        ",
    ".wwwww.s.       ",
    ".wwwww.... mmmm ",
    ".wwwwwwww. mrrm ",
    ".waaaaaww. mrrm ",
    ".waccyaww. mrrm ",
    ".wagggaww. mrrm ",
    ".waaaaaww. mrrm ",
    ".wwwwwwww.mmmmmm",
    ".waaaaaww. mrrm ",
    ".wacccaww.  mm  ",
    ".wagggaww.      ",
    ".waaaaaww.      ",
    ".wwwwwwww.      ",
    "..........      "
};
// clang-format on

const char* const* const kImages[] = {kIcon128Large, kIcon128Small};

const platform::IconResource kIcon{IDR_MAINFRAME, kImages};

}  // namespace

const platform::IconResource& Icon128() { return kIcon; }

}  // namespace resources
