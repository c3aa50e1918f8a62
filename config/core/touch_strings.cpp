#include "core/touch_strings.h"

#include "ui/string_table.h"

namespace vcx {

namespace {

const qvui::StringEntry kStrings[] = {
    {751, u"Quorvane Device touch disabled at abnormal state.", u"Quorvane 设备在异常状态下已禁用触摸。"},
    {755, u"VCXMSet : VCX Device Touch Disabled", u"VCXMSet : VCX 设备触摸已禁用"},
    {756, u"Please remove palm or water.", u"请移开手掌或擦去水。"},
    {763, u"VCXMSet : Write log. Please wait.", u"VCXMSet : 正在写入日志，请稍候。"},
    {764, u"VCXMSet : Write log finish.", u"VCXMSet : 日志写入完成。"},
    {765, u"VCXMSet : Reset Touch Panel.", u"VCXMSet : 重置触摸面板。"},
    {767, u"Reset touch panel finish.", u"触摸面板重置完成。"},
};

} // namespace

std::span<const qvui::StringEntry> touchStrings() { return kStrings; }

} // namespace vcx
