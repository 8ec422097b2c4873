// Host stand-in for the Windows runtime library's console key reader (<conio.h>).
#ifndef COMPAT_CONIO_H
#define COMPAT_CONIO_H

int _getch(void);

#endif
