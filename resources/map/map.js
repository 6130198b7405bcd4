// The GPS page's map.
//
// The address says what to show, and keeps saying what is shown:
//   #mlat=LAT&mlon=LON&zoom=Z (or the same as a query) centres the map on LAT/LON at zoom Z and
//     puts the marker there;
//   #map=Z/LAT/LON is written into the address whenever the view settles, and is where the
//     program reads the centre back from. Until the map is moved, LAT and LON are the very
//     texts the program sent.
//
// The program draws on the map through window.geodot (QWebEnginePage::runJavaScript):
//   geodot.setMarker(lat, lon, zoom)    the marker at lat/lon and the view centred there (the
//                                       zoom stays when left out)
//   geodot.setDirection(degrees)        a cone from the marker towards degrees (0 = north,
//                                       clockwise); null removes it
//   geodot.setTrack([[lat, lon], ...])  a line through the points, replacing the previous one
//   geodot.fitTrack()                   the view shows the whole line
//   geodot.clearTrack()                 removes the line
//   geodot.setTiles(path, attribution)  tiles from path ({z}, {x}, {y}, relative to this page),
//                                       credited with the attribution text
//
// A click on the map and a drag of the marker move the marker there and report the place to
// the program's web channel object "map": map.pick(lat, lon).
"use strict";

(function () {
  const map = L.map("map", {attributionControl: false, worldCopyJump: true});
  const credits = L.control.attribution({prefix: "Leaflet"}).addTo(map);
  let credit = "";
  const tiles = L.tileLayer("", {maxZoom: 19}).addTo(map);

  function escapeHtml(text) {
    const element = document.createElement("span");
    element.textContent = text;
    return element.innerHTML;
  }

  function setTiles(path, attribution) {
    credits.removeAttribution(credit);
    credit = escapeHtml(attribution || "");
    credits.addAttribution(credit);
    tiles.setUrl(path);
  }

  // Tiles that could not be had are left out, so the grey shows, and the notice says so.
  const notice = document.getElementById("notice");
  const failed = new Set();
  const tileKey = (coords) => coords.z + "/" + coords.x + "/" + coords.y;
  function updateNotice() {
    notice.hidden = failed.size === 0;
  }
  tiles.on("tileerror", (e) => {
    e.tile.style.visibility = "hidden";
    failed.add(tileKey(e.coords));
    updateNotice();
  });
  tiles.on("tileload tileunload", (e) => {
    failed.delete(tileKey(e.coords));
    updateNotice();
  });

  const marker = L.marker([0, 0], {draggable: true, keyboard: false});
  const cone = L.marker([0, 0], {interactive: false, keyboard: false, zIndexOffset: -1000});
  let direction = null;

  function showDirection() {
    if (direction === null || !map.hasLayer(marker))
      cone.remove();
    else
      cone.setLatLng(marker.getLatLng()).addTo(map);
  }
  marker.on("move", showDirection);

  function setDirection(degrees) {
    direction = typeof degrees === "number" && isFinite(degrees) ? degrees : null;
    if (direction !== null) {
      cone.setIcon(L.divIcon({
        className: "direction", iconSize: [120, 120],
        html: '<svg viewBox="0 0 120 120" style="transform: rotate(' + direction + 'deg)">' +
              '<path d="M60 60 L38.6 8.3 A56 56 0 0 1 81.4 8.3 Z" ' +
              'fill="rgba(220, 0, 0, 0.3)" stroke="#d00" stroke-width="2"/></svg>'}));
    }
    showDirection();
  }

  // The position the program sent, with its texts, kept while it is still the centre.
  let sent = null;

  // One decimal finer than a pixel at the zoom.
  function decimals(zoom) {
    return Math.max(0, Math.ceil(Math.log10(256 * 2 ** zoom / 360)) + 1);
  }
  const rounded = (value, places) => String(Number(value.toFixed(places)));

  function isCentre(latlng) {
    const centre = map.getSize().divideBy(2);
    return map.latLngToContainerPoint(latlng).distanceTo(centre) < 1;
  }

  function writeAddress() {
    const zoom = map.getZoom();
    let lat, lon;
    if (sent && isCentre(sent.latlng)) {
      lat = sent.latText;
      lon = sent.lonText;
    } else {
      sent = null;
      const centre = map.getCenter().wrap();
      lat = rounded(centre.lat, decimals(zoom));
      lon = rounded(centre.lng, decimals(zoom));
    }
    history.replaceState(null, "", "#map=" + zoom + "/" + lat + "/" + lon);
  }
  map.on("moveend", writeAddress);

  function centreOn(latText, lonText, zoom, withMarker) {
    const lat = Number(latText), lon = Number(lonText);
    if (latText === "" || lonText === "" || !isFinite(lat) || !isFinite(lon))
      return false;
    sent = {latlng: L.latLng(lat, lon), latText: latText, lonText: lonText};
    if (withMarker)
      marker.setLatLng(sent.latlng).addTo(map);
    const current = map.getZoom();
    map.setView(sent.latlng, isFinite(zoom) ? zoom : current === undefined ? 15 : current,
                {animate: false});
    writeAddress();
    return true;
  }

  // The address's position: "mlat=…&mlon=…&zoom=…" in the fragment or the query, or
  // "map=zoom/lat/lon" in the fragment.
  function followAddress() {
    const fragment = new URLSearchParams(location.hash.slice(1));
    const query = new URLSearchParams(location.search);
    for (const p of [fragment, query]) {
      if (p.has("mlat") && p.has("mlon"))
        return centreOn(p.get("mlat"), p.get("mlon"), parseInt(p.get("zoom"), 10), true);
    }
    const view = fragment.get("map");
    if (view) {
      const [zoom, lat, lon] = view.split("/");
      return centreOn(lat || "", lon || "", parseInt(zoom, 10), false);
    }
    return false;
  }
  window.addEventListener("hashchange", followAddress);

  let program = null;
  if (window.qt && qt.webChannelTransport)
    new QWebChannel(qt.webChannelTransport, (channel) => { program = channel.objects.map; });

  function pick(latlng) {
    const place = latlng.wrap();
    marker.setLatLng(place).addTo(map);
    if (program)
      program.pick(place.lat, place.lng);
  }
  // A double click zooms: the single click waits until it is sure to be one.
  let pendingClick = null;
  map.on("click", (e) => {
    clearTimeout(pendingClick);
    pendingClick = setTimeout(() => pick(e.latlng), 300);
  });
  map.on("dblclick", () => clearTimeout(pendingClick));
  marker.on("dragend", () => pick(marker.getLatLng()));

  let track = null;
  function clearTrack() {
    if (track)
      track.remove();
    track = null;
  }

  window.geodot = {
    setMarker(lat, lon, zoom) {
      centreOn(String(lat), String(lon), zoom === undefined ? NaN : zoom, true);
    },
    setDirection: setDirection,
    setTrack(points) {
      clearTrack();
      track = L.polyline(points, {color: "#c00", weight: 3, interactive: false}).addTo(map);
    },
    fitTrack() {
      if (track && track.getLatLngs().length)
        map.fitBounds(track.getBounds(), {padding: [20, 20]});
    },
    clearTrack: clearTrack,
    setTiles: setTiles,
  };

  const settings = window.geodotSettings || {};
  setTiles(settings.tiles || "", settings.attribution);
  if (!followAddress())
    map.setView([0, 0], 1);
})();
