# korvane_ports_serial: the Qt SerialPort adapter and the COMk device mapping.
