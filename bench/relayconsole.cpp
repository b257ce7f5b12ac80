#include "relayconsole.h"

#include "storerelay.h"

#include <iostream>
#include <string>

int RelayConsole::run(const QString& storeAddress)
{
    StoreRelay relay(storeAddress);
    std::cout << relay.address().toStdString() << std::endl;
    const QString stallAt = "stall-at ";
    for (std::string line; std::getline(std::cin, line);) {
        const QString command = QString::fromStdString(line);
        if (command == "stall")
            relay.stallOpenConnections();
        else if (command.startsWith(stallAt))
            relay.arm(StoreRelay::Toward::Server, command.mid(stallAt.size()).toUtf8(), StoreRelay::Fault::Stall);
        else
            std::cerr << "the relay takes \"stall\" or \"stall-at TEXT\", not: " << line << std::endl;
    }
    return 0;
}
