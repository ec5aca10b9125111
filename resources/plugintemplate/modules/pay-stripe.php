<?php
/**
 * Stripe Payment Links and Checkout: the webhook endpoint. Each event must carry a valid
 * Stripe-Signature made with the funnel's signing secret within five minutes of now; a paid
 * Checkout Session of the funnel's amount and currency gives access, a refunded charge
 * revokes it.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * Registers the Stripe webhook endpoint, one address per funnel, entered at Stripe with the
 * events checkout.session.completed, checkout.session.async_payment_succeeded and
 * charge.refunded.
 */
function #prefix#_register_stripe_route() {
	register_rest_route(
		#prefix#_rest_namespace(),
		#prefix#_listener_route( 'stripe' ),
		array(
			'methods'             => 'POST',
			'callback'            => '#prefix#_stripe_listener',
			// Stripe calls without a login: the event's signature, made with the funnel's
			// signing secret, is the credential, checked in the listener before anything is done.
			'permission_callback' => '__return_true',
		)
	);
}
add_action( 'rest_api_init', '#prefix#_register_stripe_route' );

/**
 * What a signed Stripe event means for a funnel with these settings: a completed Checkout
 * Session (or one whose delayed payment succeeded) may give access, a refunded charge may
 * revoke it, and every other event is passed over. Whether the payment gave access before is
 * for the caller to check.
 *
 * @param mixed $event    The event, decoded from JSON as arrays.
 * @param array $settings The funnel's settings (#prefix#_funnel_settings()).
 * @return array verdict (grant, revoke, ignore or refuse), reason, detail, and for grant and
 *               revoke payment_id (the Payment Intent, or the Session where there is none),
 *               plus email and claim (the Session's id) for grant.
 */
function #prefix#_stripe_verdict( $event, $settings ) {
	$type   = is_array( $event ) && isset( $event['type'] ) && is_string( $event['type'] ) ? $event['type'] : '';
	$object = is_array( $event ) && isset( $event['data']['object'] ) && is_array( $event['data']['object'] ) ? $event['data']['object'] : array();
	if ( 'charge.refunded' === $type ) {
		return #prefix#_stripe_refund_verdict( $object );
	}
	if ( 'checkout.session.completed' === $type || 'checkout.session.async_payment_succeeded' === $type ) {
		return #prefix#_stripe_session_verdict( $object, $settings );
	}
	return array(
		'verdict' => 'ignore',
		'reason'  => 'event',
		/* translators: %s: the Stripe event's type. */
		'detail'  => sprintf( __( 'A Stripe event of type "%s" is not one the funnel acts on.', '#prefix#' ), $type ),
	);
}

/**
 * A text field of a Stripe object; empty when it is missing or not text.
 *
 * @param array  $object The object.
 * @param string $name   The field.
 * @return string
 */
function #prefix#_stripe_text( $object, $name ) {
	return isset( $object[ $name ] ) && is_string( $object[ $name ] ) ? $object[ $name ] : '';
}

/**
 * A refunded charge revokes the buyer of its payment when it is refunded in full; a partial
 * refund leaves the buyer their access.
 *
 * @param array $charge The charge of a charge.refunded event.
 * @return array As #prefix#_stripe_verdict().
 */
function #prefix#_stripe_refund_verdict( $charge ) {
	$intent = #prefix#_stripe_text( $charge, 'payment_intent' );
	if ( ! isset( $charge['refunded'] ) || true !== $charge['refunded'] || '' === $intent ) {
		return array(
			'verdict' => 'ignore',
			'reason'  => 'partial',
			'detail'  => __( 'A Stripe charge was refunded in part: the buyer keeps access.', '#prefix#' ),
		);
	}
	return array(
		'verdict'    => 'revoke',
		'reason'     => 'refunded',
		/* translators: %s: the Stripe payment's id. */
		'detail'     => sprintf( __( 'Stripe payment %s was refunded.', '#prefix#' ), $intent ),
		'payment_id' => $intent,
	);
}

/**
 * A Checkout Session gives access when it is paid in the funnel's currency and amount.
 *
 * @param array $session  The session of a checkout.session event.
 * @param array $settings The funnel's settings.
 * @return array As #prefix#_stripe_verdict().
 */
function #prefix#_stripe_session_verdict( $session, $settings ) {
	$id     = #prefix#_stripe_text( $session, 'id' );
	$refuse = function ( $reason, $detail ) {
		return array(
			'verdict' => 'refuse',
			'reason'  => $reason,
			'detail'  => $detail,
		);
	};
	if ( '' === $id ) {
		return $refuse( 'session', __( 'A Stripe Checkout event without its session.', '#prefix#' ) );
	}
	if ( 'paid' !== #prefix#_stripe_text( $session, 'payment_status' ) ) {
		return array(
			'verdict' => 'ignore',
			'reason'  => 'status',
			/* translators: %s: the Stripe Checkout Session's id. */
			'detail'  => sprintf( __( 'Stripe Checkout %s is not paid yet; Stripe writes again once it is.', '#prefix#' ), $id ),
		);
	}
	if ( '' === (string) $settings['price'] ) {
		return $refuse( 'unpriced', __( 'A Stripe payment came in, but the funnel has no price set.', '#prefix#' ) );
	}
	$currency = strtoupper( #prefix#_stripe_text( $session, 'currency' ) );
	if ( $currency !== $settings['currency'] ) {
		/* translators: 1: the currency paid in, 2: the funnel's currency. */
		return $refuse( 'currency', sprintf( __( 'A Stripe payment was made in %1$s, not in the funnel\'s currency %2$s.', '#prefix#' ), $currency, $settings['currency'] ) );
	}
	$paid = #prefix#_minor_units_value( isset( $session['amount_total'] ) ? $session['amount_total'] : null, $currency );
	if ( null === $paid || #prefix#_amount_value( $settings['price'] ) !== $paid ) {
		/* translators: 1: the amount paid, 2: the funnel's price, 3: the currency. */
		return $refuse( 'amount', sprintf( __( 'A Stripe payment of %1$s %3$s does not match the funnel\'s price of %2$s %3$s.', '#prefix#' ), null === $paid ? '?' : #prefix#_amount_text( $paid ), $settings['price'], $currency ) );
	}
	$details = isset( $session['customer_details'] ) && is_array( $session['customer_details'] ) ? $session['customer_details'] : array();
	$email   = #prefix#_stripe_text( $details, 'email' );
	$email   = '' === $email ? #prefix#_stripe_text( $session, 'customer_email' ) : $email;
	$intent  = #prefix#_stripe_text( $session, 'payment_intent' );
	return array(
		'verdict'    => 'grant',
		'reason'     => 'paid',
		/* translators: 1: the Stripe Checkout Session's id, 2: the buyer's e-mail address. */
		'detail'     => sprintf( __( 'Stripe Checkout %1$s paid by %2$s.', '#prefix#' ), $id, $email ),
		'payment_id' => '' === $intent ? $id : $intent,
		'email'      => $email,
		'claim'      => $id,
	);
}

/**
 * Words for the owner on why a Stripe signature was refused.
 *
 * @param string $status What #prefix#_stripe_signature_status() found.
 * @return string
 */
function #prefix#_stripe_refusal( $status ) {
	$texts = array(
		'no_secret' => __( 'A Stripe event came in, but the funnel has no Stripe signing secret set: copy it from the webhook endpoint at Stripe.', '#prefix#' ),
		'malformed' => __( 'A request to the Stripe address had no valid Stripe-Signature header: it did not come from Stripe.', '#prefix#' ),
		'mismatch'  => __( 'A Stripe event\'s signature does not match the funnel\'s signing secret: check that the secret is the one of this endpoint, copied whole.', '#prefix#' ),
		'expired'   => __( 'A Stripe event was signed more than five minutes ago (or the site\'s clock is wrong): it was refused as a possible replay.', '#prefix#' ),
	);
	return isset( $texts[ $status ] ) ? $texts[ $status ] : $texts['malformed'];
}

/**
 * Handles one Stripe event for the funnel its address names. A signature that is not valid
 * gets 400, which Stripe shows the owner among the endpoint's failed deliveries; every event
 * with a valid signature gets 200, whatever became of it.
 *
 * @param WP_REST_Request $request The event.
 * @return WP_REST_Response
 */
function #prefix#_stripe_listener( $request ) {
	$funnel_id = (int) $request['funnel'];
	if ( ! #prefix#_payment_funnel( $funnel_id ) ) {
		return new WP_REST_Response( array( 'outcome' => 'refused' ), 404 );
	}
	$settings = #prefix#_funnel_settings( $funnel_id );
	$payload  = $request->get_body();
	$status   = #prefix#_stripe_signature_status( $request->get_header( 'stripe_signature' ), $payload, $settings['stripe_secret'], time() );
	if ( 'valid' !== $status ) {
		return #prefix#_listener_answer( $funnel_id, 'stripe', 'refused', #prefix#_stripe_refusal( $status ), 400 );
	}
	$event = json_decode( $payload, true );
	if ( ! is_array( $event ) ) {
		return #prefix#_listener_answer( $funnel_id, 'stripe', 'refused', __( 'A signed Stripe event was not valid JSON.', '#prefix#' ), 400 );
	}
	$verdict = #prefix#_stripe_verdict( $event, $settings );
	if ( 'revoke' === $verdict['verdict'] ) {
		$buyer = #prefix#_revoke_payment( 'stripe', $verdict['payment_id'] );
		return #prefix#_listener_answer( $funnel_id, 'stripe', $buyer ? 'revoked' : 'ignored', $verdict['detail'] );
	}
	if ( 'grant' !== $verdict['verdict'] ) {
		return #prefix#_listener_answer( $funnel_id, 'stripe', 'ignore' === $verdict['verdict'] ? 'ignored' : 'refused', $verdict['detail'] );
	}
	$granted = #prefix#_grant_access( $funnel_id, $verdict['email'], 'stripe', $verdict['payment_id'], $verdict['claim'] );
	if ( is_wp_error( $granted ) && 'duplicate' === $granted->get_error_code() ) {
		/* translators: %s: the Stripe payment's id. */
		return #prefix#_listener_answer( $funnel_id, 'stripe', 'ignored', sprintf( __( 'Stripe payment %s has given access already.', '#prefix#' ), $verdict['payment_id'] ) );
	}
	if ( is_wp_error( $granted ) ) {
		return #prefix#_listener_answer( $funnel_id, 'stripe', 'failed', $granted->get_error_message(), 500 );
	}
	return #prefix#_listener_answer( $funnel_id, 'stripe', 'granted', $verdict['detail'] );
}
