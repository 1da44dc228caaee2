// A Modbus RTU slave for the pass-through tests: serves holding registers on a
// serial device (a pty in the tests) until it is terminated.
//
//   modbus-rtu-slave DEVICE SLAVE-ID BAUD PARITY(N|E|O) VALUE [VALUE...]
//
// Holding register i (0-based) holds VALUE i. Prints {"ready":true} once the device
// is open, and one {"event":"request","len":N} line per request it answers.
#include <modbus.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }
} // namespace

int main(int argc, char **argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s DEVICE SLAVE-ID BAUD PARITY VALUE...\n", argv[0]);
        return 2;
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    const char *device = argv[1];
    const int slave = std::atoi(argv[2]);
    const int baud = std::atoi(argv[3]);
    const char parity = argv[4][0];
    const int count = argc - 5;

    modbus_t *ctx = modbus_new_rtu(device, baud, parity, 8, 1);
    if (!ctx) {
        std::fprintf(stderr, "modbus_new_rtu: %s\n", modbus_strerror(errno));
        return 1;
    }
    modbus_set_slave(ctx, slave);
    if (modbus_connect(ctx) == -1) {
        std::fprintf(stderr, "modbus_connect %s: %s\n", device, modbus_strerror(errno));
        modbus_free(ctx);
        return 1;
    }
    modbus_mapping_t *map = modbus_mapping_new(0, 0, count, 0);
    if (!map) {
        std::fprintf(stderr, "modbus_mapping_new: %s\n", modbus_strerror(errno));
        modbus_close(ctx);
        modbus_free(ctx);
        return 1;
    }
    for (int i = 0; i < count; ++i)
        map->tab_registers[i] = static_cast<uint16_t>(std::strtoul(argv[5 + i], nullptr, 0));

    std::printf("{\"ready\":true,\"service\":\"modbus-rtu-slave\"}\n");
    std::fflush(stdout);

    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!g_stop) {
        const int rc = modbus_receive(ctx, query);
        if (rc > 0) {
            modbus_reply(ctx, query, rc, map);
            std::printf("{\"event\":\"request\",\"len\":%d}\n", rc);
            std::fflush(stdout);
        } else if (rc == -1 && errno != EMBBADCRC && errno != EMBBADSLAVE) {
            // A device error would otherwise repeat at once: do not spin.
            usleep(20000);
        }
    }
    modbus_mapping_free(map);
    modbus_close(ctx);
    modbus_free(ctx);
    return 0;
}
