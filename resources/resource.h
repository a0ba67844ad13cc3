// Resource identifiers shared by the .rc file and the program.
#pragma once

#define IDI_APP 1
// The seven pictures of menu items and buttons, image n at IDI_IMAGE0 + n.
#define IDI_IMAGE0 100
#define IDI_INSERT_IMPORT 100
#define IDI_QUIT 101
#define IDI_SAVE_IMPORT 102
#define IDI_OPEN_LIBRARY 103
#define IDI_COPY_IMPORT 104
#define IDI_OPEN_DLL 105
#define IDI_PROJECT 106
