#pragma once
// Drives the window for the demonstration run of TavrinOperatorDemo, a
// program of its own that is never shipped, from environment variables that
// tools/demo.sh sets:
//   TAVRINOPERATOR_DEMO_FIT         "1": the window takes the height a
//                                   desk of this screen offers (a 32 px
//                                   panel and a 30 px title bar less)
//   TAVRINOPERATOR_DEMO_PALETTE     "dark": a dark desktop palette
//   TAVRINOPERATOR_DEMO_CONNECT     address to type in and connect to
//   TAVRINOPERATOR_DEMO_SCREENSHOT  PNG file written once the connect ended
//   TAVRINOPERATOR_DEMO_UPGRADE     package to upgrade from after the connect
//   TAVRINOPERATOR_DEMO_RESTORE     "1": restore after that
//   TAVRINOPERATOR_DEMO_EXIT        "1": close the window when all is done
// Each step's status line is printed to standard output.
class CInstrumentUpdaterDlg;

// True when the environment asks for a demonstration run; the driver then
// lives as long as the window's dialog.
bool StartDemoDriver(CInstrumentUpdaterDlg& window);
