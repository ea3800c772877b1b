// OrvaneMod from JScript: replays a recorded log, prints each fix's
// position in two formats, and shows the error a missing file gives.
//
//   cscript //nologo replay.js C:\logs\drive.nmea
var fixes = 0, finished = false, gps, connected = true;

// WScript.CreateObject with a prefix connects the control's events to the
// functions named gps_<event> below. A host that cannot connect them (Wine's
// cscript) still gets the control; the script then polls instead.
try {
  gps = WScript.CreateObject("OrvaneMod.Orvane", "gps_");
} catch (e) {
  connected = false;
  gps = new ActiveXObject("OrvaneMod.Orvane");
}

function gps_FixUpdate(fixGood, fixDateTime, latitude, longitude, altitude, speed, trueCourse) {
  fixes++;
  showPosition();
}

function gps_FileComplete() {
  finished = true;
}

// Latitude and Longitude are text in the format LatLonFormat names:
// 0 decimal degrees, 1 degrees and minutes, 2 degrees, minutes and seconds.
function showPosition() {
  gps.LatLonFormat = 0;
  var decimalDegrees = gps.Latitude + " " + gps.Longitude;
  gps.LatLonFormat = 1;
  WScript.Echo("fix " + fixes + ": " + decimalDegrees + " | " + gps.Latitude + " " + gps.Longitude);
}

// A file that is not there: OpenFile throws, e.number is 0x80040215.
try {
  gps.OpenFile("C:\\no\\such\\drive.nmea");
} catch (e) {
  WScript.Echo("error " + (e.number >>> 0).toString(16).toUpperCase() + ": " + e.description);
}

gps.OpenFile(WScript.Arguments(0));
if (connected) {
  while (!finished) WScript.Sleep(50);
} else {
  // Without events: the replay is over once PortHandle fails again
  // ("Port is closed."); then the last fix is there to read.
  var started = new Date().getTime();
  while (new Date().getTime() - started < 30000) {
    try {
      var handle = gps.PortHandle;
    } catch (e) {
      if ((e.number >>> 0) == 0x80040200) break;
    }
  }
  fixes = 1;
  showPosition();
}
WScript.Echo("done");
