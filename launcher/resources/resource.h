// Identifiers of the launcher's resources, shared by the resource script and the code.
#pragma once

#define IDI_ZANDREL 1
#define IDB_SPLASH 101
#define IDM_RCPOPUP 201
#define IDM_REST1 202
#define IDM_MSG1 203
