// Dialogs from templates and their modal loops, menus, the command bar, message boxes
// and the wait cursor.
#pragma once
