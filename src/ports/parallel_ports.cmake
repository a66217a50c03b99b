# korvane_ports_parallel: ppdev and direct port I/O adapters and the LPTk device mapping.
