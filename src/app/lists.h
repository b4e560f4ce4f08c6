#pragma once

// The lists "-l <unit>", "-u" and "-p": the targets of a unit, the units of
// the project and its profiles, one name a line. Each returns the run's exit
// status.

class TolmApplication;

// The targets of the unit in case-insensitive order; the unit's main target
// is printed whatever the verbosity. Throws NotFoundException for an unknown
// unit.
int printTargetList(const TolmApplication& app);
// The units in project-file order; -1 without a project.
int printUnitList(const TolmApplication& app);
// The profiles in case-insensitive order; -1 without a project.
int printProfileList(const TolmApplication& app);
