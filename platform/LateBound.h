#pragma once
// VB's late-bound call of a member by name (CallByName with the method call type). A class opens
// itself to such calls by listing the members a caller may reach by name, each with the number of
// arguments it takes; nothing else of the object can be reached, so a name that comes from a rule
// row, a timer context or a request never gets at the rest of the object.
//
// Names are matched ignoring case, as VB does. A name that is not listed raises error 438, a call
// with a count of arguments outside the member's range raises 450. Arguments arrive as values;
// a member converts them with VB's rules (vb::CLng, vb::CBool, vb::CStr...), which raise error 13
// for a value that does not convert.
#include "platform/Variant.h"

#include <QList>
#include <QString>
#include <functional>

namespace vb {

using Arguments = QList<Variant>;

struct CallableMember {
    QString name;
    int minArgs = 0;
    int maxArgs = 0;
    std::function<Variant(const Arguments&)> call;
};
using CallableMembers = QList<CallableMember>;

class LateBound {
public:
    virtual ~LateBound() = default;
    // The members reachable by name. Called on every late-bound call: build the list on demand.
    virtual CallableMembers callableMembers() = 0;
};

// Calls `member` of `target` with `args` and gives its result (Empty for a member without one).
Variant CallByName(LateBound& target, const QString& member, const Arguments& args = {});
// True when `target` lists `member` (ignoring case).
bool HasMember(LateBound& target, const QString& member);

} // namespace vb
