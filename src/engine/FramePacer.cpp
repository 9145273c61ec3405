// Pacing by deadline: the slot is measured from the previous deadline, or
// from the end of a frame that ran late.
#include "engine/FramePacer.h"

#include <SDL.h>

uint32_t SdlClock::ticks() {
    return SDL_GetTicks();
}

void SdlClock::delay(uint32_t milliseconds) {
    SDL_Delay(milliseconds);
}

void FramePacer::start() {
    m_deadline = m_clock.ticks();
    m_durationIndex = 0;
}

void FramePacer::wait() {
    m_deadline += FRAME_DURATIONS[m_durationIndex];
    m_durationIndex = (m_durationIndex + 1) % 3;
    if (m_deadline > m_clock.ticks()) {
        do {
            m_clock.delay(1);
        } while (m_clock.ticks() < m_deadline);
    } else {
        m_deadline = m_clock.ticks();
    }
}
