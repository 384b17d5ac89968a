// SPDX-License-Identifier: GPL-3.0-or-later
#include "cameracontrols/element_controls.h"

#include <linux/videodev2.h>

#include <optional>

#include "cameracontrols/automatics.h"

namespace flipbook {
namespace {

struct KnownProperty {
    const char* property;
    std::uint32_t id;
};

constexpr KnownProperty kKnownProperties[] = {
    {"exposure-auto", V4L2_CID_EXPOSURE_AUTO},
    {"exposure", V4L2_CID_EXPOSURE_ABSOLUTE},
    {"gain-auto", V4L2_CID_AUTOGAIN},
    {"gain", V4L2_CID_GAIN},
    {"white-balance-auto", V4L2_CID_AUTO_WHITE_BALANCE},
    {"white-balance-temperature", V4L2_CID_WHITE_BALANCE_TEMPERATURE},
    {"focus-auto", V4L2_CID_FOCUS_AUTO},
    {"focus", V4L2_CID_FOCUS_ABSOLUTE},
    {"brightness", V4L2_CID_BRIGHTNESS},
    {"contrast", V4L2_CID_CONTRAST},
    {"saturation", V4L2_CID_SATURATION},
    {"hue", V4L2_CID_HUE},
    {"sharpness", V4L2_CID_SHARPNESS},
    {"power-line-frequency", V4L2_CID_POWER_LINE_FREQUENCY},
    {"backlight-compensation", V4L2_CID_BACKLIGHT_COMPENSATION},
    {"zoom", V4L2_CID_ZOOM_ABSOLUTE},
};

class ElementControls : public CameraControls {
public:
    explicit ElementControls(gst::ElementPtr element) : element_(std::move(element)) {}

    std::vector<CameraControl> List() override {
        std::vector<CameraControl> controls;
        for (const KnownProperty& known : kKnownProperties)
            if (std::optional<CameraControl> control = Describe(known))
                controls.push_back(std::move(*control));
        // An element cannot say that a control is ruled by its automatic; the pairing is known.
        for (const Automatic& automatic : Automatics()) {
            const CameraControl* switch_ = FindControl(controls, automatic.automaticId);
            if (!switch_ || !AutomaticOn(*switch_)) continue;
            for (CameraControl& control : controls)
                if (control.id == automatic.manualId) control.inactive = true;
        }
        return controls;
    }

    void Set(std::uint32_t id, int value) override {
        const KnownProperty* known = KnownOf(id);
        GParamSpec* spec = known ? Spec(known->property) : nullptr;
        if (!spec) throw ECameraControl("The camera control", "the camera does not offer it");
        if (!(spec->flags & G_PARAM_WRITABLE))
            throw ECameraControl(g_param_spec_get_nick(spec), "the camera does not allow changing it");
        GValue given = G_VALUE_INIT;
        g_value_init(&given, spec->value_type);
        if (G_IS_PARAM_SPEC_BOOLEAN(spec))
            g_value_set_boolean(&given, value != 0);
        else if (G_IS_PARAM_SPEC_ENUM(spec))
            g_value_set_enum(&given, value);
        else if (G_IS_PARAM_SPEC_UINT(spec))
            g_value_set_uint(&given, static_cast<guint>(value));
        else
            g_value_set_int(&given, value);
        // GObject would clamp or warn on a value outside the range; a camera refuses it instead.
        const bool outside = g_param_value_validate(spec, &given);
        if (!outside) g_object_set_property(G_OBJECT(element_.Get()), known->property, &given);
        g_value_unset(&given);
        if (outside) throw ECameraControl(g_param_spec_get_nick(spec), "the camera does not take that value");
    }

private:
    static const KnownProperty* KnownOf(std::uint32_t id) {
        for (const KnownProperty& known : kKnownProperties)
            if (known.id == id) return &known;
        return nullptr;
    }

    GParamSpec* Spec(const char* property) const {
        return g_object_class_find_property(G_OBJECT_GET_CLASS(element_.Get()), property);
    }

    std::optional<CameraControl> Describe(const KnownProperty& known) const {
        GParamSpec* spec = Spec(known.property);
        if (!spec || !(spec->flags & G_PARAM_READABLE)) return std::nullopt;
        CameraControl control;
        control.id = known.id;
        control.name = g_param_spec_get_nick(spec);
        control.readOnly = !(spec->flags & G_PARAM_WRITABLE);
        GValue current = G_VALUE_INIT;
        g_value_init(&current, spec->value_type);
        g_object_get_property(G_OBJECT(element_.Get()), known.property, &current);
        if (G_IS_PARAM_SPEC_INT(spec)) {
            const auto* range = G_PARAM_SPEC_INT(spec);
            control.type = ControlType::Integer;
            control.minimum = range->minimum;
            control.maximum = range->maximum;
            control.defaultValue = range->default_value;
            control.value = g_value_get_int(&current);
        } else if (G_IS_PARAM_SPEC_UINT(spec)) {
            const auto* range = G_PARAM_SPEC_UINT(spec);
            control.type = ControlType::Integer;
            control.minimum = static_cast<int>(range->minimum);
            control.maximum = static_cast<int>(std::min<guint>(range->maximum, G_MAXINT));
            control.defaultValue = static_cast<int>(range->default_value);
            control.value = static_cast<int>(g_value_get_uint(&current));
        } else if (G_IS_PARAM_SPEC_BOOLEAN(spec)) {
            control.type = ControlType::Boolean;
            control.maximum = 1;
            control.defaultValue = G_PARAM_SPEC_BOOLEAN(spec)->default_value ? 1 : 0;
            control.value = g_value_get_boolean(&current) ? 1 : 0;
        } else if (G_IS_PARAM_SPEC_ENUM(spec)) {
            const auto* enumeration = G_PARAM_SPEC_ENUM(spec);
            control.type = ControlType::Menu;
            for (guint i = 0; i < enumeration->enum_class->n_values; ++i) {
                const GEnumValue& entry = enumeration->enum_class->values[i];
                control.menu.push_back({entry.value, entry.value_name});
            }
            control.minimum = enumeration->enum_class->minimum;
            control.maximum = enumeration->enum_class->maximum;
            control.defaultValue = enumeration->default_value;
            control.value = g_value_get_enum(&current);
        } else {
            g_value_unset(&current);
            return std::nullopt;
        }
        g_value_unset(&current);
        return control;
    }

    gst::ElementPtr element_;
};

}  // namespace

std::unique_ptr<CameraControls> MakeElementControls(gst::ElementPtr element) {
    return std::make_unique<ElementControls>(std::move(element));
}

}  // namespace flipbook
