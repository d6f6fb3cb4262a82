// Version of the host interface this library provides.
#pragma once

#define kDDImageVersionMajorNum 15
#define kDDImageVersionMinorNum 0
#define kDDImageVersionReleaseNum 4
#define kDDImageVersion "15.0v4"
// "major.minor", the form plug-in build strings carry.
#define kDDImageVersionMajorMinor "15.0"
