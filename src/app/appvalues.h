// Start-up values that several windows need: the program's names and version from its own version
// block, and the folder of its settings.
#pragma once

#include <QString>

extern QString AppCompanyName; // CompanyName of the executable's version block
extern QString AppProductName; // ProductName of the executable's version block
extern QString AppTitle;       // AppCompanyName + " - " + AppProductName
extern QString AppVersion;     // "major.minor" of the executable's file version

// The maker's web host (a build-time setting), for every address of the maker.
QString MakerWebHost();
// Test seam: points every address of the maker at `host` (empty: back to the build setting).
void SetMakerWebHostForTesting(const QString& host);
