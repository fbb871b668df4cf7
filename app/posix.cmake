# POSIX front end: filled in with the driver.
