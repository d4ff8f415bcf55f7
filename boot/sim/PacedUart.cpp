#include "boot/sim/PacedUart.h"

#include <avr_uart.h>
#include <sim_cycle_timers.h>
#include <sim_io.h>
#include <sim_irq.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

namespace {

constexpr unsigned kFrameBits = 10;  // start, 8 data, stop
// Unread bytes the receiver holds: two in the buffer, one in the shift register.
constexpr unsigned kReceiverHolds = 3;
constexpr unsigned kLoggedLosses = 10;

}  // namespace

bool PacedUart::Attach(avr_t* chip, int terminal, unsigned hostBaud, Trace* byteTrace,
                       std::FILE* txLog, std::function<Trace::TimePoint()> clock) {
    avr = chip;
    for (avr_io_t* io = chip->io_port; io != nullptr; io = io->next)
        if (io->kind != nullptr && std::strcmp(io->kind, "uart") == 0 &&
            reinterpret_cast<avr_uart_t*>(io)->name == '0')
            uart = reinterpret_cast<avr_uart_t*>(io);  // the io block leads the structure
    if (uart == nullptr) return false;
    uint32_t flags = 0;  // no sleeping while polled, no copy of the output on stdout
    avr_ioctl(chip, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    input = avr_io_getirq(chip, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    avr_irq_t* output = avr_io_getirq(chip, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT);
    if (input == nullptr || output == nullptr) return false;
    avr_irq_register_notify(output, OnOutput, this);
    fd = terminal;
    baud = hostBaud;
    trace = byteTrace;
    log = txLog;
    simulatedTime = std::move(clock);
    return true;
}

unsigned PacedUart::Unread() const {
    const uart_fifo_t& fifo = uart->input;
    return (fifo.write + uart_fifo_fifo_size - fifo.read) & (uart_fifo_fifo_size - 1);
}

double PacedUart::ChipFrameCycles() const {
    const unsigned ubrr = avr_regbit_get(avr, uart->ubrrl) | avr_regbit_get(avr, uart->ubrrh) << 8;
    return static_cast<double>((ubrr + 1) * (avr_regbit_get(avr, uart->u2x) ? 8 : 16) * kFrameBits);
}

// simavr counts a parity bit that 8N1 does not send: every frame is 10 bits here.
void PacedUart::MatchChipTiming() {
    const auto cycles = static_cast<avr_cycle_count_t>(ChipFrameCycles());
    if (uart->cycles_per_byte != cycles) uart->cycles_per_byte = cycles;
}

void PacedUart::Reset() {
    // simavr may start its cycle count again: what is on its way out leaves now.
    for (auto& pending : toHost) pending.first = 0;
    lineFree = 0;
    Flush();
    avr_cycle_timer_cancel(avr, OnFrame, this);
    feeding = false;
    frameRemainder = 0;
    unreadAtOverrun = 0;
}

void PacedUart::OnOutput(avr_irq_t*, uint32_t value, void* param) {
    auto* self = static_cast<PacedUart*>(param);
    self->MatchChipTiming();
    const auto frame = static_cast<avr_cycle_count_t>(self->ChipFrameCycles());
    const avr_cycle_count_t start = std::max(self->avr->cycle, self->lineFree);
    self->lineFree = start + frame;
    self->toHost.emplace_back(self->lineFree, static_cast<uint8_t>(value));
}

avr_cycle_count_t PacedUart::OnFrame(avr_t*, avr_cycle_count_t when, void* param) {
    return static_cast<PacedUart*>(param)->Deliver(when);
}

// One byte starts on the line now; it is readable when its frame has ended
// (simavr raises RXC one frame after the byte comes in).
avr_cycle_count_t PacedUart::Deliver(avr_cycle_count_t when) {
    if (toChip.empty()) {
        feeding = false;
        return 0;
    }
    uint8_t byte = toChip.front();
    toChip.pop_front();
    if (++received == corruptAt) byte ^= 0x10;
    MatchChipTiming();
    const unsigned unread = Unread();
    if (unreadAtOverrun != 0 && unread < unreadAtOverrun) {
        avr_regbit_clear(avr, uart->dor);
        unreadAtOverrun = 0;
    }
    if (!avr_regbit_get(avr, uart->rxen)) {
        // A receiver that is off hears nothing: not an overrun.
    } else if (unread >= kReceiverHolds) {
        avr_regbit_setto(avr, uart->dor, 1);
        unreadAtOverrun = unread;
        if (++lost <= kLoggedLosses)
            std::fprintf(stderr, "receive overrun at cycle %llu: byte 0x%02X lost\n",
                         static_cast<unsigned long long>(when), byte);
    } else {
        avr_raise_irq(input, byte);
    }
    Log(true, byte);
    const double frame =
        baud ? static_cast<double>(avr->frequency) * kFrameBits / baud : ChipFrameCycles();
    const double whole = std::floor(frame + frameRemainder);
    frameRemainder += frame - whole;
    return when + static_cast<avr_cycle_count_t>(whole);
}

void PacedUart::Log(bool fromHost, uint8_t byte) {
    if (trace) trace->Log(simulatedTime(), fromHost, byte);
}

void PacedUart::Service() {
    uint8_t chunk[256];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) break;  // nothing waiting, or nobody holds the other side
        toChip.insert(toChip.end(), chunk, chunk + n);
    }
    if (!toChip.empty() && !feeding) {
        feeding = true;
        avr_cycle_timer_register(avr, 1, OnFrame, this);
    }
    Flush();
}

void PacedUart::Flush() {
    while (!toHost.empty() && toHost.front().first <= avr->cycle) {
        const uint8_t byte = toHost.front().second;
        toHost.pop_front();
        // A host that is not listening loses the byte, as on a real line.
        [[maybe_unused]] const ssize_t sent = write(fd, &byte, 1);
        if (log) std::fputc(byte, log);
        Log(false, byte);
    }
}
