// The vreg definition document carried in the program. It is used when a settings file holds no
// vreg list of its own, and describes, in evaluation order, which settings each charger has:
// presets record the product family and the capability word for firmware that cannot report it,
// later rows depend on those records through their conditions.
#include "settings/settings_file.h"

namespace sunlink {

const char* const embeddedDefaults = R"xml(<?xml version="1.0" encoding="utf-8"?>
<qmx>
    <vregs>
        <vreg label="is_mppt" group="is_mppt" productids="0x0300,0xA040:0xA07F" value="1"/>
        <vreg label="is_qmx" group="is_qmx" productids="0x0200:0x0205" value="1"/>
        <!-- Determine capabilities -->
        <vreg label="capabilities_reg" group="caps" minver="1.16" is_mppt="1" get="0x0140" set="0xFFFE"/>
        <vreg label="capabilities1" group="caps" productids="0x0300" maxver="1.07" value="0x0019"/>
        <vreg label="capabilities2" group="caps" productids="0x0300" minver="1.08" maxver="1.12" value="0x0009"/>
        <vreg label="capabilities3" group="caps" productids="0x0300" minver="1.13" maxver="1.14" value="0x0001"/>
        <vreg label="capabilities4" group="caps" productids="0x0300" minver="1.15" maxver="1.15" value="0x1201"/>
        <vreg label="capabilities5" group="caps" productids="0xA042,0xA043,0xA04C" maxver="1.07" value="0x001D"/>
        <vreg label="capabilities6" group="caps" productids="0xA042,0xA043,0xA04C" minver="1.08" maxver="1.12" value="0x000D"/>
        <vreg label="capabilities7" group="caps" productids="0xA042,0xA043,0xA04C" minver="1.13" maxver="1.14" value="0x0005"/>
        <vreg label="capabilities8" group="caps" productids="0xA042,0xA043,0xA04C" minver="1.15" maxver="1.15" value="0x1E05"/>
        <vreg label="capabilities9" group="caps" productids="0xA040:0xA041,0xA044:0xA04B" maxver="1.07" value="0x201E"/>
        <vreg label="capabilities10" group="caps" productids="0xA040:0xA041,0xA044:0xA04B" minver="1.08" maxver="1.12" value="0x200E"/>
        <vreg label="capabilities11" group="caps" productids="0xA040:0xA041,0xA044:0xA04B" minver="1.13" maxver="1.14" value="0x2106"/>
        <vreg label="capabilities12" group="caps" productids="0xA040:0xA041,0xA044:0xA04B" minver="1.15" maxver="1.15" value="0x2506"/>
        <!-- Split the capabilities in boolean values (for conveniance) -->
        <vreg label="has_load" group="has_load" caps="0x0001" value="1"/>
        <vreg label="has_rotary" group="has_rotary" caps="0x0002" value="1"/>
        <vreg label="has_auto_equalize" group="has_auto_equalize" caps="0x0040" value="1"/>
        <vreg label="has_solar_timer" group="has_solar_timer" caps="0x0200" value="1"/>
        <vreg label="has_alt_tx_function" group="has_alt_tx_function" caps="0x0400" value="1"/>
        <vreg label="has_user_load_switch" group="has_user_load_switch" caps="0x0800" value="1"/>
        <vreg label="has_alt_rx_function" group="has_alt_rx_function" caps="0x40000" value="1"/>
        <!-- Items for the qmx -->
        <vreg label="qmx_soc" group="qmx_soc" minver="3.00" is_qmx="1" get="0x0FFF"/>
        <!-- Items valid for all versions / mppts -->
        <vreg label="auto_absorption_voltage" group="absorption_voltage" maxver="1.08" is_mppt="1" get="0xEDF7" set="0xFFFE"/> <!-- only used to get the absorption voltage for battery voltage detection -->
        <vreg label="auto_float_voltage" group="float_voltage" maxver="1.08" is_mppt="1" get="0xEDF6" set="0xFFFE"/> <!-- only used to get the float voltage for battery voltage detection -->
        <vreg label="battery_voltage1" group="battery_voltage" maxver="1.08" is_mppt="1" get="0xEDEF" set="0xEDEF" auto_bat="absorption_voltage,float_voltage"/> <!-- (temporarily) use the rounded absorption/float voltage and not auto -->
        <vreg label="battery_voltage2" group="battery_voltage" minver="1.09" maxver="1.11" is_mppt="1" get="0xEDEF" set="0xEDEF"/> <!-- use the actual voltage -->
        <vreg label="battery_voltage3" group="battery_voltage" minver="1.12" is_mppt="1" get="0xEDEF" set="0xEDEF"/> <!-- temporarily use the actual voltage (and not auto) -->
        <vreg label="maximum_current" is_mppt="1" get="0xEDF0"/>
        <vreg label="bulk_time_limit" is_mppt="1" get="0xEDFC"/>
        <vreg label="absorption_time_limit" is_mppt="1" get="0xEDFB"/>
        <vreg label="absorption_voltage" is_mppt="1" get="0xEDF7"/>
        <vreg label="float_voltage" is_mppt="1" get="0xEDF6"/>
        <vreg label="temperature_compensation" is_mppt="1" get="0xEDF2"/>
        <vreg label="battery_type" is_mppt="1" get="0xEDF1"/>
        <!-- Other items triggered by capabilities -->
        <vreg label="load_control" has_load="1" get="0xEDAB"/>
        <vreg label="load_offset" has_load="1" get="0xEDAC"/>
        <vreg label="port_tx_function" has_alt_tx_function="1" get="0xED9E"/>
        <vreg label="port_rx_function" has_alt_rx_function="1" get="0xED98"/>
        <vreg label="load_switch_high_level" has_user_load_switch="1" get="0xED9D"/>
        <vreg label="load_switch_low_level" has_user_load_switch="1" get="0xED9C"/>
        <vreg label="lighting_event1" has_solar_timer="1" get="0xEDA0"/>
        <vreg label="lighting_event2" has_solar_timer="1" get="0xEDA1"/>
        <vreg label="lighting_event3" has_solar_timer="1" get="0xEDA2"/>
        <vreg label="lighting_event4" has_solar_timer="1" get="0xEDA3"/>
        <vreg label="lighting_event5" has_solar_timer="1" get="0xEDA4"/>
        <vreg label="lighting_event6" has_solar_timer="1" get="0xEDA5"/>
        <vreg label="midpoint_shift" has_solar_timer="1" get="0xEDA7"/>
        <vreg label="dim_speed" minver="1.16" has_solar_timer="1" get="0xED9B"/>
        <vreg label="panel_voltage_night" minver="1.16" has_solar_timer="1" get="0xED9A"/>
        <vreg label="panel_voltage_day" minver="1.16" has_solar_timer="1" get="0xED99"/>
        <vreg label="equalisation_voltage" has_auto_equalize="1" get="0xEDF4"/>
        <vreg label="auto_equalise" has_auto_equalize="1" get="0xEDFD"/>
        <!-- Setting float/absorption/euqalisation voltage after the battery_voltage_setting might lead to problems when the setting is auto, so set it at the end -->
        <vreg label="battery_voltage_setting1" group="battery_voltage_setting" maxver="1.08" is_mppt="1" get="0xEDEF" set="0xEDEF"/> <!-- Use the actual setting -->
        <vreg label="battery_voltage_setting2" group="battery_voltage_setting" minver="1.09" maxver="1.11" is_mppt="1" get="0xEDEF" set="0xFFFE"/> <!-- Do nothing, as actual setting is not known -->
        <vreg label="battery_voltage_setting3" group="battery_voltage_setting" minver="1.12" is_mppt="1" get="0xEDEA" set="0xEDEF"/> <!-- Use the actual setting -->
    </vregs>
</qmx>
)xml";

}  // namespace sunlink
