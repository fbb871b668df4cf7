# Win32 front end: filled in with the Windows build.
