#pragma once
// A window wired to a simulated controller on 127.0.0.1: the simulator listens
// on a free port, the window's requests go there and the replies come back to
// the window's own free reply port.

#include <optional>

#include "tests/support/FormFixture.h"
#include "tests/support/FreeUdpPort.h"
#include "tools/sim/SimulatorServer.h"

namespace kestrix::test {

// A generated controller memory whose newest events are of 2 June 2024.
inline sim::ControllerMemory GeneratedMemory(int events, int days = 7, std::uint32_t seed = 1) {
    sim::GenerateOptions options;
    options.eventCount = events;
    options.days = days;
    options.seed = seed;
    options.lastYear = 2024, options.lastMonth = 6, options.lastDay = 2;
    return sim::ControllerMemory::Generate(options);
}

class SimulatorFixture : public FormFixture {
protected:
    void SetUp() override {
        // The window needs the simulator's port, the simulator the window's.
        m_simulatorPort = FreeUdpPort();
        ASSERT_NE(m_simulatorPort, 0);
        FormFixture::SetUp();
        startSimulator(sim::ControllerMemory(), {});
    }

    FormServices services() override {
        FormServices s = FormFixture::services();
        s.controllerPort = m_simulatorPort;
        s.resolveHost = [](const QString& name) -> QHostAddress {
            throw std::runtime_error(("Host " + name + " not found").toStdString());
        };
        return s;
    }

    void startSimulator(sim::ControllerMemory memory, sim::FaultOptions faults) {
        server.reset();
        core.emplace(std::move(memory), faults);
        server.emplace(*core, "127.0.0.1", m_simulatorPort, form->replies().listenPort());
    }

    // A new window (a new reply port), and the simulator told about it.
    void reopenWindow() {
        form.reset();
        form = std::make_unique<TForm1>(services());
        startSimulator(core->memory(), core->faults());
    }

    // Switches to IP mode and addresses the simulator.
    void useIpMode(const QString& mac = "0011223344AA") { enterLink(true, mac, "127.0.0.1"); }

    std::optional<sim::SimulatorCore> core;
    std::optional<sim::SimulatorServer> server;

private:
    quint16 m_simulatorPort = 0;
};

}  // namespace kestrix::test
