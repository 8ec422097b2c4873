// Which family of Windows runs the program, asked the one way both programs share.
#ifndef COMMON_WINVERSION_H
#define COMMON_WINVERSION_H

// 1 on Windows NT and its successors, 0 on Windows 9x (GetVersion's top bit).
int isWindowsNT(void);

#endif
