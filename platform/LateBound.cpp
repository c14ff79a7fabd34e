#include "platform/LateBound.h"

#include "platform/VBError.h"

namespace vb {

namespace {

const CallableMember* find(const CallableMembers& members, const QString& name) {
    for (const auto& m : members)
        if (m.name.compare(name, Qt::CaseInsensitive) == 0)
            return &m;
    return nullptr;
}

} // namespace

Variant CallByName(LateBound& target, const QString& member, const Arguments& args) {
    const CallableMembers members = target.callableMembers();
    const CallableMember* m = find(members, member);
    if (!m || !m->call)
        Raise(err::NoSuchMember);
    if (args.size() < m->minArgs || args.size() > m->maxArgs)
        Raise(err::WrongArgumentCount);
    return m->call(args);
}

bool HasMember(LateBound& target, const QString& member) {
    return find(target.callableMembers(), member) != nullptr;
}

} // namespace vb
