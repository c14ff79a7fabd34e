#pragma once
// clsBotones: the trigger-message rule object. The start-up creates the one instance once the
// database is reachable and keeps it for the run; creating it does nothing else, and the service
// itself never calls it.
class clsBotones final {
public:
    clsBotones() = default;
};
