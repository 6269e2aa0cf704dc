// A stand-in for navigator.hid with the API's shape, installed before the
// page loads. Each device's output reports go to the firmware in node
// (window.zelioFirmware, exposed by page_test.mjs), which answers with the
// input reports to deliver, their delay, whether the device is pulled out
// at this report, and the product ID the module enumerates with afterwards.
(() => {
  const hid = new EventTarget();
  const attached = [];
  const standIn = {requested: null};
  class HIDDevice extends EventTarget {
    constructor(productId) {
      super();
      const report = (reportId) => ({reportId, items: [{reportSize: 8, reportCount: 8}]});
      Object.assign(this, {vendorId: 0x1D5A, productId, productName: 'stand-in', opened: false,
        collections: [{usagePage: 0xFF00, usage: 1, inputReports: [report(0)], outputReports: [report(0)], children: []}]});
    }
    async open() {
      if (!attached.includes(this)) throw new DOMException('The device was disconnected.', 'NotFoundError');
      this.opened = true;
    }
    async close() { this.opened = false; }
    async sendReport(reportId, data) {
      if (!this.opened || !attached.includes(this)) throw new DOMException('Failed to write the report.', 'NotAllowedError');
      const view = new Uint8Array(data.buffer || data, data.byteOffset || 0, data.byteLength);
      const answer = await window.zelioFirmware([reportId, ...view]);
      if (answer.unplug) return standIn.unplug(this);
      for (const reply of answer.replies) {
        setTimeout(() => {
          const event = new Event('inputreport');
          Object.assign(event, {device: this, reportId: reply[0], data: new DataView(Uint8Array.from(reply.slice(1)).buffer)});
          this.dispatchEvent(event);
        }, answer.delay);
      }
      if (answer.productId !== this.productId) {
        setTimeout(() => {
          standIn.unplug(this);
          if (answer.productId) standIn.plug(answer.productId);
        }, answer.delay + 20);
      }
    }
  }
  const announce = (type, device) => {
    const event = new Event(type);
    event.device = device;
    hid.dispatchEvent(event);
  };
  Object.assign(hid, {
    async getDevices() { return [...attached]; },
    async requestDevice(options) {
      standIn.requested = options.filters;
      return [...attached];
    },
  });
  Object.assign(standIn, {
    plug(productId, quietly) {
      const device = new HIDDevice(productId);
      attached.push(device);
      if (!quietly) announce('connect', device);
    },
    unplug(device) {
      attached.splice(attached.indexOf(device), 1);
      device.opened = false;
      announce('disconnect', device);
    },
  });
  Object.defineProperty(Navigator.prototype, 'hid', {get: () => hid, configurable: true});
  window.zelioStandIn = standIn;
})();
