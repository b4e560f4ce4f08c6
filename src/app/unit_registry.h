#pragma once
// Every unit loaded in a run, under its project namespace and unit name, and
// the resolution of target references against them. A reference that leaves
// out the namespace or the unit gets the defaults: the root project's name
// and its first unit (or the unit of the default unit file).
//
// Names ignore case, so one target may be referred to in several spellings.
// What is named after a target (its output folder and files, its cache
// record, its name in messages) must not depend on the spelling of the
// reference, or each spelling would build the same target into files of its
// own; the walk therefore takes each part of a name as its declaration
// spells it.

#include <map>
#include <memory>
#include <string>
#include <utility>

#include "types/qualified_target_name.h"
#include "types/target.h"
#include "types/unit.h"
#include "util/ci_string.h"

namespace Tolm {

class UnitRegistry {
public:
    // The units of one project namespace, by the names they were added under.
    using UnitSpace = std::map<Util::CiString, std::shared_ptr<Unit>>;

    // Stores the unit under [ns][unit], replacing an earlier entry.
    void add(const std::string& ns, const std::string& unitName, std::shared_ptr<Unit> unit);

    // Writes the defaults back into empty arguments. Throws NotFoundException
    // "Namespace" or "Unit" (namespace + "/" + unit).
    std::shared_ptr<Unit> getUnit(std::string& ns, std::string& unitName) const;
    // Completes the name in place. Throws NotFoundException "Namespace",
    // "Unit" or "Target" ([ns + "/"] + unit + "::" + target).
    const Target& getTarget(QualifiedTargetName& name) const;
    // Like getTarget, and then every part of the name is spelt as declared:
    // the namespace as its project was added, the unit as its entry (its
    // own name, not a second one such as "1"), the target as its unit file.
    const Target& getDeclaredTarget(QualifiedTargetName& name) const;
    // Whether the text, read leniently as a target name, resolves.
    bool hasTarget(const std::string& text) const;

    // The name the entry's unit was added under as itself: a second name of
    // it (the main unit's "1") gives way to the one its file declares, where
    // the space has that one too.
    static const std::string& declaredUnitName(const UnitSpace& space, UnitSpace::const_iterator entry);

    std::map<Util::CiString, UnitSpace> units;
    std::string defaultUnit;
    std::string defaultNamespace;

private:
    // The namespace's and the unit's entries, completing the names as
    // getUnit does.
    std::pair<std::map<Util::CiString, UnitSpace>::const_iterator, UnitSpace::const_iterator> findUnit(
        std::string& ns, std::string& unitName) const;
    const Target& lookUp(QualifiedTargetName& name, bool declaredSpelling) const;
};

}  // namespace Tolm
