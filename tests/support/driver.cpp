#include "support/driver.h"

#include <cstring>

namespace rltest {

namespace {

// Sizes: mostly small, sometimes odd, empty or negative.
int PickSide(Choices& c)
{
    const uint8_t k = c.Byte();
    if (k < 8) return -c.Range(0, 16);
    if (k < 16) return 0;
    if (k < 40) return c.Range(1, 8);
    return c.Range(1, kMaxSide);
}

void IgnoreContent(void*, int32_t) {}

void MaybeSpoil(Choices& c, SRLPictureInfo* p)
{
    const uint8_t k = c.Byte();
    if (k == 1) p->pData[0] = nullptr;
    if (k == 2) p->pData[1] = nullptr;
    if (k == 3) p->pData[2] = nullptr;
}

}  // namespace

int32_t Driver::InitMethod(const MethodEntry& m, Choices& c)
{
    alignas(8) uint8_t record[64];
    std::memset(record, 0, sizeof record);
    void* config = m.makeConfig(c, record, CatalogHostMemory());
    const int32_t r = m_rl->Init(m.method, config, (c.Byte() & 1) != 0);
    // Content detection analyses only with a callback: one that ignores the reports.
    if (m.method == RL_METHOD_CONTENT_DETECTION) {
        SRLContentCallback cb = {&IgnoreContent, this};
        m_rl->SetOption(m.method, RL_OPTION_CONTENT_CALLBACK, &cb);
    }
    return r;
}

int32_t Driver::SetSomeOption(const MethodEntry& m, Choices& c)
{
    int option = (!m.options.empty() && c.Byte() < 160) ? c.Pick(m.options) : c.Range(0, 80);
    if (OptionCarriesPointer(option)) option = RL_OPTION_LOG_LEVEL;
    alignas(8) uint8_t payload[64];
    for (uint8_t& b : payload) b = c.Byte() < 128 ? 0 : c.Byte();
    if (option == RL_OPTION_ROTATION_ANGLE && c.Byte() < 200) {
        const uint32_t angles[] = {0, 90, 180, 270, 45, 360};
        const uint32_t a = angles[c.Byte() % 6];
        std::memcpy(payload, &a, sizeof a);
    }
    void* value = c.Byte() < 8 ? nullptr : payload;
    const RL_EMethod target = c.Byte() < 16 ? RL_METHOD_ALL : m.method;
    return m_rl->SetOption(target, static_cast<RL_EOption>(option), value);
}

int32_t Driver::GetSomeOption(const MethodEntry& m, Choices& c)
{
    const int option = (!m.options.empty() && c.Byte() < 160) ? c.Pick(m.options) : c.Range(0, 80);
    alignas(8) uint8_t payload[64] = {};
    return m_rl->GetOption(m.method, static_cast<RL_EOption>(option), c.Byte() < 8 ? nullptr : payload);
}

int32_t Driver::ProcessFrame(const MethodEntry& m, Choices& c)
{
    const uint32_t srcFormat = c.Pick(m.srcFormats);
    const uint32_t dstFormat = m.dstFormats.empty() ? srcFormat : c.Pick(m.dstFormats);
    const int w = PickSide(c), h = PickSide(c);
    int dw = w, dh = h;
    if (m.dst == DstKind::AnySize || (m.dst != DstKind::Unread && c.Byte() < 12)) dw = PickSide(c), dh = PickSide(c);
    if (m.dst == DstKind::Enlarged) {
        const uint8_t k = c.Byte();
        if (k < 120) dw = 2 * w, dh = 2 * h;
        else if (k < 220) dw = (3 * w) >> 1, dh = (3 * h) >> 1;
    }
    const int pad = c.Byte() < 160 ? 0 : c.Range(1, 40);
    const bool negative = c.Byte() < 10;
    // A value that names no layout gets planes as large as the converter
    // reads them (as I420_2), so the descriptor still tells the truth.
    const bool noLayout = GeometryOf(srcFormat, 1, 1).planes == 0;
    const int align = m.planeAlign && c.Byte() >= 16 ? m.planeAlign : 0;  // sometimes unaligned all the same
    m_src.Allocate(noLayout ? static_cast<uint32_t>(RL_FORMAT_I420_2) : srcFormat, w, h, pad, negative, align);
    m_src.info()->eFormat = static_cast<RL_EVideoFormat>(srcFormat);
    m_src.Fill(c.Byte());
    if (m.dst == DstKind::Descriptor)
        m_dst.Allocate(0, 0, 0);
    else
        m_dst.Allocate(dstFormat, dw, dh, c.Byte() < 200 ? 0 : c.Range(1, 40), false, align);
    m_dst.Fill(c.Byte());
    MaybeSpoil(c, m_src.info());
    MaybeSpoil(c, m_dst.info());
    const uint8_t which = c.Byte();
    SRLPictureInfo* src = which == 1 ? nullptr : m_src.info();
    SRLPictureInfo* dst = which == 2 ? nullptr : m_dst.info();
    return m_rl->Process(m.method, src, dst, nullptr);
}

int32_t Driver::ProcessFormat(const MethodEntry& m, uint32_t format, int w, int h)
{
    m_src.Allocate(format, w, h, 0, false, m.planeAlign);
    m_src.Fill(100);
    if (m.dst == DstKind::Descriptor)
        m_dst.Allocate(0, 0, 0);
    else if (m.dst == DstKind::AnySize)
        m_dst.Allocate(format, w / 2, h / 2);
    else if (m.dst == DstKind::Enlarged)
        m_dst.Allocate(format, 2 * w, 2 * h);
    else
        m_dst.Allocate(m.dstFormats.empty() ? format : static_cast<uint32_t>(RL_FORMAT_I420), w, h, 0, false,
                       m.planeAlign);
    m_dst.Fill(50);
    return m_rl->Process(m.method, m_src.info(), m_dst.info(), nullptr);
}

bool Driver::Step(Choices& c, int32_t* result)
{
    if (c.Empty()) return false;
    const auto& catalog = MethodCatalog();
    const MethodEntry& m = catalog[c.Byte() % catalog.size()];
    switch (c.Byte() % 8) {
    case 0:
        *result = InitMethod(m, c);
        break;
    case 1:
        *result = m_rl->Uninit(c.Byte() < 8 ? static_cast<RL_EMethod>(c.Range(-2, 40)) : m.method);
        break;
    case 2:
        *result = SetSomeOption(m, c);
        break;
    case 3:
        *result = GetSomeOption(m, c);
        break;
    default:
        *result = ProcessFrame(m, c);
        break;
    }
    return true;
}

}  // namespace rltest
