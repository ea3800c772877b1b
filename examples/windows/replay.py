"""OrvaneMod from Python with pywin32. Documentation only: not run by the tests.

    py -3-32 replay.py C:\\logs\\drive.nmea     (a 32-bit Python for the 32-bit DLL)
"""
import sys

import pythoncom
import pywintypes
import win32com.client


class Events:
    """Methods named On<event> receive the control's events."""

    def OnFixUpdate(self, fix_good, fix_date_time, latitude, longitude, altitude, speed, course):
        self.LatLonFormat = 1  # degrees and minutes; `self` is the control too
        print(f"{latitude} {longitude} | {self.Latitude} {self.Longitude}")
        self.LatLonFormat = 0  # decimal degrees, as the event arguments came

    def OnFileComplete(self):
        self.finished = True


gps = win32com.client.DispatchWithEvents("OrvaneMod.Orvane", Events)
gps.finished = False
try:
    gps.OpenFile(r"C:\no\such\drive.nmea")
except pywintypes.com_error as e:  # hresult -2147220971 (0x80040215), "Unable to open file."
    print(f"error {e.hresult & 0xFFFFFFFF:08X}: {e.excepinfo[2]}")
gps.OpenFile(sys.argv[1])
while not gps.finished:
    pythoncom.PumpWaitingMessages()  # events arrive on this thread
