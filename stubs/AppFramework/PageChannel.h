#pragma once
// The call channel script served into every page of page-host mode.
extern const char kPageChannelScript[];
