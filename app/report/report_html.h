// report.html: one self-contained page (no file beside it needed, no network) with the run's
// figures in tables, the health-check findings, the notes and the plots embedded as images,
// headed by how the run was made.
#pragma once

#include <string>
#include <vector>

#include "app/report/provenance_rows.h"
#include "app/report/report_plots.h"
#include "app/report/vehicle_figures.h"

namespace report {

std::string reportHtml(const master::RunRecord& record, const VehicleFigures& figures, const ReportSettings& settings,
                       const std::vector<std::string>& messages, const std::vector<Plot>& plots,
                       const ProvenanceRows& provenance = {});

}  // namespace report
