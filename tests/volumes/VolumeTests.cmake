# Volume tests (free space, forensic) are defined here.
