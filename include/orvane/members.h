// The IOrvane members in vtable order with their DISPIDs, written once. Each
// layer (the core object, the COM object, the member table, the public
// Control) expands the list into its own declarations, shims or rows:
//   GET(id, name)       a read-only property
//   PROPERTY(id, name)  a read-write property
//   METHOD(id, name)    a method; each layer writes its signature itself
// The type-library test holds this order to the IDL's.
#pragma once

#define ORVANE_MEMBERS(GET, PROPERTY, METHOD) \
  PROPERTY(1, BaudRate)                       \
  GET(2, PortName)                            \
  GET(3, PortHandle)                          \
  METHOD(4, Open)                             \
  METHOD(5, OpenFile)                         \
  METHOD(6, Close)                            \
  GET(7, FixDateTime)                         \
  GET(8, Latitude)                            \
  GET(9, Longitude)                           \
  GET(10, Speed)                              \
  GET(11, TrueCourse)                         \
  GET(12, MagVariation)                       \
  GET(13, FixQuality)                         \
  GET(14, NumSatellitesInFix)                 \
  GET(18, Altitude)                           \
  GET(19, GeoidHeightAboveWGS84Ellipsoid)     \
  GET(20, TimeSinceLastDGPSUpdate)            \
  GET(21, DGPSRefStationID)                   \
  GET(15, HDOP)                               \
  GET(16, PDOP)                               \
  GET(17, VDOP)                               \
  GET(22, CrossTrackError)                    \
  GET(23, OriginWptID)                        \
  GET(24, DestWptID)                          \
  GET(25, DestWptLatitude)                    \
  GET(26, DestWptLongitude)                   \
  GET(27, RangeToDest)                        \
  GET(28, TrueBearingToDest)                  \
  GET(29, DestClosingVelocity)                \
  GET(30, OrigToDestTrueBearing)              \
  GET(31, OrigToDestMagBearing)               \
  GET(33, WptsInRoute)                        \
  METHOD(34, GetWptLocation)                  \
  GET(35, AutomaticOperation)                 \
  GET(36, OperationMode)                      \
  GET(37, FixSatellitePRNs)                   \
  GET(38, NumSatellitesInView)                \
  METHOD(39, GetSatelliteInfo)                \
  GET(40, FixGood)                            \
  PROPERTY(41, LatLonFormat)                  \
  PROPERTY(42, SpeedUnits)                    \
  PROPERTY(43, DegLabel)                      \
  PROPERTY(44, MinLabel)                      \
  PROPERTY(45, SecLabel)                      \
  GET(46, ModeIndicator)                      \
  PROPERTY(47, DistUnits)                     \
  PROPERTY(48, AltitudeUnits)                 \
  GET(49, SatelliteInViewPRNs)                \
  GET(51, ArrivedAtDest)                      \
  GET(52, RouteName)                          \
  GET(53, RouteContainsAllWpts)

// IOrvane2, derived from IOrvane: its own members, DISPIDs from 100 up.
#define ORVANE2_MEMBERS(GET, PROPERTY, METHOD) \
  PROPERTY(100, Talkers)                       \
  PROPERTY(101, ExtendedSentences)             \
  GET(102, MagneticCourse)                     \
  GET(103, LocalZoneOffset)                    \
  GET(104, GnssMode)                           \
  GET(105, TrueHeading)                        \
  GET(106, MagneticHeading)                    \
  GET(107, MagneticDeviation)                  \
  GET(108, HeadingVariation)                   \
  GET(109, HeadingMode)                        \
  GET(110, RangeResidualRMS)                   \
  GET(111, ErrorEllipseMajor)                  \
  GET(112, ErrorEllipseMinor)                  \
  GET(113, ErrorEllipseOrientation)            \
  GET(114, LatitudeError)                      \
  GET(115, LongitudeError)                     \
  GET(116, AltitudeError)                      \
  GET(117, ExpectedLatitudeError)              \
  GET(118, ExpectedLongitudeError)             \
  GET(119, ExpectedAltitudeError)              \
  GET(120, FailedSatellite)                    \
  GET(121, ReceiverText)                       \
  GET(122, LastEpochTime)                      \
  GET(123, TalkersReceived)                    \
  GET(124, SentenceTypesReceived)

// For a layer that declares its methods apart from the list.
#define ORVANE_NO_METHOD(id, name)
