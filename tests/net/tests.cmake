# Tests of the network code (paths relative to tests/).
