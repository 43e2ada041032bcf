// Resource identifiers shared by quillmoor.rc and the code (plain macros, as
// the resource compiler reads this file too).
#pragma once

#define IDI_QUILLMOOR 1
#define IDB_LOGO 101
