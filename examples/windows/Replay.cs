// OrvaneMod from C#. Documentation only: not run by the tests.
//
// Early bound, with events: make an interop assembly from the type library
// inside the DLL and build against it:
//     tlbimp OrvaneMod.dll /out:Interop.ORVANEMODLib.dll
//     csc /platform:x86 /r:Interop.ORVANEMODLib.dll /r:System.Windows.Forms.dll Replay.cs
// Late bound (dynamic, no interop assembly): build with /define:LATE. C# has
// no event syntax for a late-bound object, so that variant polls instead.
// /platform must match the DLL: x86 for the 32-bit one, x64 for the 64-bit one.
using System;
using System.Runtime.InteropServices;
using System.Threading;
using System.Windows.Forms;

static class Replay
{
    [STAThread]  // the control is apartment-threaded: events come to this thread
    static int Main(string[] args)
    {
#if LATE
        dynamic gps = Activator.CreateInstance(Type.GetTypeFromProgID("OrvaneMod.Orvane"));
#else
        var gps = new ORVANEMODLib.Orvane();
        gps.FixUpdate += (fixGood, time, latitude, longitude, altitude, speed, course) =>
        {
            gps.LatLonFormat = 1;  // degrees and minutes
            Console.WriteLine($"{latitude} {longitude} | {gps.Latitude} {gps.Longitude}");
            gps.LatLonFormat = 0;  // decimal degrees, as the event arguments came
        };
        gps.FileComplete += () => Application.ExitThread();
#endif
        try
        {
            gps.OpenFile(@"C:\no\such\drive.nmea", Type.Missing);
        }
        catch (COMException e)  // HResult 0x80040215, "Unable to open file."
        {
            Console.WriteLine($"error {e.HResult:X8}: {e.Message}");
        }
        gps.OpenFile(args[0], Type.Missing);
#if LATE
        // The replay is over once PortHandle fails again (0x80040200).
        for (;;)
        {
            try { object handle = gps.PortHandle; }
            catch (COMException e) when ((uint)e.HResult == 0x80040200) { break; }
            Thread.Sleep(50);
        }
        gps.LatLonFormat = 1;
        Console.WriteLine($"last fix: {gps.Latitude} {gps.Longitude}");
#else
        Application.Run();  // pumps messages until FileComplete
#endif
        return 0;
    }
}
