// Draws the pump table from data/status.json.
"use strict";

function cell(row, text, className) {
  const td = document.createElement("td");
  td.textContent = text;
  if (className) {
    td.className = className;
  }
  row.appendChild(td);
}

async function showPumps() {
  const body = document.querySelector("#pumps tbody");
  try {
    const response = await fetch("data/status.json");
    const status = await response.json();
    body.textContent = "";
    for (const pump of status.pumps) {
      const row = document.createElement("tr");
      cell(row, pump.name);
      cell(row, pump.state, "state-" + pump.state);
      cell(row, pump.flow.toFixed(1));
      cell(row, pump.pressure.toFixed(2));
      body.appendChild(row);
    }
  } catch (error) {
    body.innerHTML = "<tr><td colspan=4>Cannot read the status: " + error + "</td></tr>";
  }
}

showPumps();
